#include "SOWinReg.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <tinyxml.h>

#include "SOXml.h"

#include "SOUtil.h"

namespace {

// Closes a descriptor when it goes out of scope.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded (a failed close can mean lost data).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || close(fd) == 0;
  }

 private:
  int fd_;
};

TiXmlElement* FindChild(TiXmlElement* parent, const char* tag, const char* name) {
  for (TiXmlElement* e = parent->FirstChildElement(tag); e; e = e->NextSiblingElement(tag)) {
    const char* attr = e->Attribute("name");
    if (attr && std::strcmp(attr, name) == 0) return e;
  }
  return nullptr;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += size_t(n);
  }
  return true;
}

// Writes text to a temporary file beside path and renames it over path, so readers see the
// old file or the new one, never a part.
bool ReplaceFile(const std::string& path, const std::string& text) {
  std::string temp = path + ".XXXXXX";
  FileHandle file(mkostemp(temp.data(), O_CLOEXEC));
  if (file.get() < 0) return false;
  const bool written = fchmod(file.get(), 0600) == 0 && WriteAll(file.get(), text) && fsync(file.get()) == 0;
  if (!file.Close() || !written || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  const std::string folder = path.substr(0, path.rfind('/'));
  FileHandle dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) fsync(dir.get());
  return true;
}

}  // namespace

std::string SOWinReg::RegistryPath() {
  std::string base;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* user = getpwuid(getuid());
      home = user ? user->pw_dir : "/tmp";
    }
    base = std::string(home) + "/.config";
  }
  return base + "/Orvanta/registry.xml";
}

bool SOWinReg::ReadHKCU(const char* key, const char* name, std::string& value) {
  value.clear();
  if (!key || !name) return false;
  TiXmlDocument doc;
  if (!SOXml::LoadFile(doc, RegistryPath())) return false;
  TiXmlElement* keyElement = FindChild(doc.RootElement(), "Key", key);
  TiXmlElement* valueElement = keyElement ? FindChild(keyElement, "Value", name) : nullptr;
  const char* data = valueElement ? valueElement->Attribute("data") : nullptr;
  if (!data) return false;
  value = data;
  return true;
}

bool SOWinReg::ReadHKCU(const wchar_t* key, const wchar_t* name, std::wstring& value) {
  value.clear();
  if (!key || !name) return false;
  std::string narrow;
  if (!ReadHKCU(SOUtil::W2UTF8Str(key).c_str(), SOUtil::W2UTF8Str(name).c_str(), narrow)) return false;
  value = SOUtil::UTF82WStr(narrow.c_str());
  return true;
}

bool SOWinReg::WriteHKCU(const char* key, const char* name, const char* value) {
  if (!key || !name || !value) return false;
  const std::string path = RegistryPath();
  if (!SOUtil::CreateDirByFile(path.c_str())) return false;

  // flock holds per open file, so two threads of this process exclude each other as well as
  // two processes do: each write opens the lock file anew.
  FileHandle lock(open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() < 0) return false;
  while (flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }

  // A file that does not parse (edited by hand, say) is kept aside as registry.xml.broken and
  // started afresh, rather than blocking every later write or silently dropping its values.
  TiXmlDocument doc;
  if (!SOXml::LoadFile(doc, path)) {
    if (access(path.c_str(), F_OK) == 0) rename(path.c_str(), (path + ".broken").c_str());
    doc.Clear();
    doc.ClearError();
    doc.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    doc.LinkEndChild(new TiXmlElement("Registry"));
  }
  TiXmlElement* root = doc.RootElement();
  TiXmlElement* keyElement = FindChild(root, "Key", key);
  if (!keyElement) {
    keyElement = new TiXmlElement("Key");
    keyElement->SetAttribute("name", key);
    root->LinkEndChild(keyElement);
  }
  TiXmlElement* valueElement = FindChild(keyElement, "Value", name);
  if (!valueElement) {
    valueElement = new TiXmlElement("Value");
    valueElement->SetAttribute("name", name);
    keyElement->LinkEndChild(valueElement);
  }
  valueElement->SetAttribute("data", value);

  TiXmlPrinter printer;
  doc.Accept(&printer);
  return ReplaceFile(path, printer.Str());
}

bool SOWinReg::WriteHKCU(const wchar_t* key, const wchar_t* name, const wchar_t* value) {
  if (!key || !name || !value) return false;
  return WriteHKCU(SOUtil::W2UTF8Str(key).c_str(), SOUtil::W2UTF8Str(name).c_str(),
                   SOUtil::W2UTF8Str(value).c_str());
}
