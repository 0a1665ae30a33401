#pragma once

#include "ArchiveConfig.h"

#include <string>

// The checks of a node typed into the remote node dialog, in the dialog's order: name,
// address, port, AE title. Null when the node is usable (then node holds it), else the message
// to show for the first field that is wrong.
const char* CheckRemoteNode(const std::string& name, const std::string& ip, const std::string& portText,
                            const std::string& aeTitle, RemoteNode& node);

// A device code as people read it: a blank before every third digit ("123456789" reads
// "123 456 789", "1234" reads "123 4").
std::string GroupDeviceCode(const std::string& code);
