// The installer script as the package builder prepares it.

#include <gtest/gtest.h>

#include "pack/script.h"
#include "formats/layout.h"

namespace {

const std::string kMarker(layout::kEndMarker);
const std::string kTail = "; End the file with this guid\r\n" + kMarker + "\r\n";

TEST(PrepareScript, EndsEveryLineWithCrLfAndTheMarkerLast) {
  const struct {
    const char* what;
    std::string raw;
    std::string expected;
  } cases[] = {
      {"LF lines, no marker", "[install]\nInstallerSilent=1\n", "[install]\r\nInstallerSilent=1\r\n" + kTail},
      {"CR lines", "[a]\rk=v\r", "[a]\r\nk=v\r\n" + kTail},
      {"mixed, no final line end", "[a]\r\nk=v\nx=y", "[a]\r\nk=v\r\nx=y\r\n" + kTail},
      {"blank lines kept", "[a]\n\nk=v\n", "[a]\r\n\r\nk=v\r\n" + kTail},
      {"marker already last", "[a]\r\n" + kMarker + "\r\n", "[a]\r\n" + kMarker + "\r\n"},
      {"marker last without line end", "[a]\n" + kMarker, "[a]\r\n" + kMarker + "\r\n"},
      {"marker with blanks around", "[a]\n  " + kMarker + " \n", "[a]\r\n" + kMarker + "\r\n"},
      {"comment present, marker missing", "[a]\n; End the file with this guid\n", "[a]\r\n" + kTail},
      {"UTF-8 byte-order mark dropped", "\xEF\xBB\xBF[a]\n", "[a]\r\n" + kTail},
      {"empty script", "", kTail},
  };
  for (const auto& c : cases) {
    const pack::PreparedScript script = pack::PrepareScript(c.raw);
    EXPECT_EQ(script.error, "") << c.what;
    EXPECT_EQ(script.text, c.expected) << c.what;
  }
}

TEST(PrepareScript, KeepsTheMarkersLetterCase) {
  std::string lower = kMarker;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(pack::PrepareScript("[a]\n" + lower + "\n").text, "[a]\r\n" + lower + "\r\n");
}

TEST(PrepareScript, TellsWhatItChanged) {
  EXPECT_EQ(pack::PrepareScript("[a]\n").notes.size(), 1u);
  EXPECT_EQ(pack::PrepareScript("\xEF\xBB\xBF[a]\n").notes.size(), 2u);
  EXPECT_TRUE(pack::PrepareScript("[a]\r\n" + kMarker + "\r\n").notes.empty());
}

TEST(PrepareScript, RefusesMarkersElsewhereAndTextThatIsNoIniText) {
  const struct {
    const char* what;
    std::string raw;
    const char* errorPart;
  } cases[] = {
      {"marker before the end", "[a]\n" + kMarker + "\nk=v\n", "line 2"},
      {"marker inside a value", "[a]\nk=" + kMarker + "\n", "line 2"},
      {"marker inside the last line", "[a]\nk=v " + kMarker + "\n", "line 2"},
      {"two markers", kMarker + "\n" + kMarker + "\n", "line 1"},
      {"UTF-16", std::string("\xFF\xFE[\0a\0]\0", 8), "UTF-16"},
      {"NUL bytes", std::string("[a]\0k=v\n", 8), "NUL"},
  };
  for (const auto& c : cases) {
    const pack::PreparedScript script = pack::PrepareScript(c.raw);
    EXPECT_NE(script.error.find(c.errorPart), std::string::npos) << c.what << ": " << script.error;
    EXPECT_TRUE(script.text.empty()) << c.what;
  }
}

}  // namespace
