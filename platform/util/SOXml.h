#pragma once

#include <cstddef>
#include <string>

#include <tinyxml.h>

// Every XML text the program reads goes through here. TinyXML steps over a UTF-8 sequence by
// its lead byte, so a text that ends inside one is read up to three bytes past its end; these
// hand it the text with slack behind its terminator. Nesting deeper than kMaxXmlDepth (TinyXML
// parses recursively: a deep enough text exhausts the stack) and files larger than the bound
// given are refused unparsed.
namespace SOXml {

constexpr size_t kMaxXmlBytes = 16u << 20;
constexpr int kMaxXmlDepth = 256;

// True when text parsed without error into a document with a root element.
bool Parse(TiXmlDocument& doc, const std::string& text, TiXmlEncoding encoding = TIXML_ENCODING_UTF8);
// The file's bytes, a leading UTF-8 byte order mark left out, when it is a regular file of at
// most maxBytes; false otherwise.
bool ReadFile(const std::string& path, std::string& text, size_t maxBytes = kMaxXmlBytes);
// ReadFile, then Parse.
bool LoadFile(TiXmlDocument& doc, const std::string& path, TiXmlEncoding encoding = TIXML_ENCODING_UTF8,
              size_t maxBytes = kMaxXmlBytes);
// How deeply the elements of text nest (an element's own depth counts 1).
int Depth(const std::string& text);

}  // namespace SOXml
