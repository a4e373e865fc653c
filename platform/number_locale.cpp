#include "platform/number_locale.h"

#include <windows.h>

#include <climits>

#include "platform/text.h"

namespace {

class UserNumpunct : public std::numpunct<char> {
 public:
  UserNumpunct(char separator, std::string grouping) : separator_(separator), grouping_(std::move(grouping)) {}

 protected:
  char do_thousands_sep() const override { return separator_; }
  std::string do_grouping() const override { return grouping_; }

 private:
  char separator_;
  std::string grouping_;
};

std::string UserLocaleInfo(LCTYPE type) {
  wchar_t buffer[16];
  const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 16);
  return length > 1 ? Utf8FromWide(std::wstring_view(buffer, length - 1)) : std::string();
}

}  // namespace

std::string NumpunctGrouping(const std::string& windowsGrouping) {
  std::string grouping;
  bool repeatLast = false;
  std::size_t start = 0;
  while (start <= windowsGrouping.size()) {
    const std::size_t end = std::min(windowsGrouping.find(';', start), windowsGrouping.size());
    const int size = std::atoi(windowsGrouping.substr(start, end - start).c_str());
    if (size == 0) {
      repeatLast = true;
      break;
    }
    grouping.push_back(static_cast<char>(std::min(size, 9)));
    start = end + 1;
  }
  // numpunct repeats its last group; Windows does so only after a trailing 0.
  if (!grouping.empty() && !repeatLast) grouping.push_back(CHAR_MAX);
  return grouping;
}

std::locale UserNumberLocale() {
  const std::string separator = UserLocaleInfo(LOCALE_STHOUSAND);
  // A separator beyond one byte (a narrow no-break space, say) is shown as a blank.
  const char sep = separator.size() == 1 ? separator[0] : (separator.empty() ? ',' : ' ');
  return std::locale(std::locale::classic(), new UserNumpunct(sep, NumpunctGrouping(UserLocaleInfo(LOCALE_SGROUPING))));
}
