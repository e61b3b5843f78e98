// Extension keys of HKCR, answered from the system's shared-mime-info database.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::registry {

// The MIME type of a file extension (".txt" -> "text/plain"), std::nullopt when unknown.
std::optional<std::string> ContentTypeOfExtension(std::string_view extension);

}  // namespace platform::registry
