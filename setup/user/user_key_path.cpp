#include "user/user_key_path.h"

std::string UserKeyPathFor(std::string_view sid, std::string_view subKey) {
  if (sid.empty()) return std::string(subKey);
  return std::string(sid) + "\\" + std::string(subKey);
}
