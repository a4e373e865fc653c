// The product double and the installer's resources, as Windows sees them.

#include <gtest/gtest.h>

#include "test_support.h"
#include "wine.h"

namespace {

using harness::Wine;

// Runs wintool.exe; its output without the final line end.
std::string Tool(const std::vector<std::string>& args) {
  Wine& wine = Wine::Get();
  std::vector<std::string> command = {wine.Program("wintool.exe").string()};
  command.insert(command.end(), args.begin(), args.end());
  const harness::RunResult result = wine.Run(command);
  EXPECT_EQ(result.exitCode, 0) << result.output;
  std::string output = result.output;
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

TEST(ProductDouble, CarriesItsFileVersionText) {
  EXPECT_EQ(Tool({"version", Wine::WindowsPath(std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe")}),
            "6, 6, 0, 18");
}

TEST(ProductDouble, OwnsTheQuenlithWindowUntilAskedToClose) {
  Wine& wine = Wine::Get();
  harness::Process product =
      wine.Start({(std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe").string(), "/runnormal"});
  EXPECT_EQ(wine.Run({wine.Program("wintool.exe").string(), "find", "Quenlith", "Quenlith", "20000"}).exitCode, 0);
  EXPECT_EQ(wine.Run({wine.Program("wintool.exe").string(), "close", "Quenlith", "Quenlith"}).exitCode, 0);
  EXPECT_EQ(Wine::ExitCodeOf(product.Wait(30)), 0);
  EXPECT_EQ(wine.Run({wine.Program("wintool.exe").string(), "find", "Quenlith", "Quenlith"}).exitCode, 1);
}

TEST(ProductDouble, SignedVariantPassesTrustVerificationAndUnsignedDoesNot) {
  const std::string signedResult =
      Tool({"trust", Wine::WindowsPath(std::filesystem::path(test_paths::kSigningDir) / "product" / "Quenlith.exe")});
  const std::string unsignedResult =
      Tool({"trust", Wine::WindowsPath(std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe")});
  EXPECT_EQ(signedResult, "0x00000000");
  EXPECT_EQ(unsignedResult, "0x800B0100");  // TRUST_E_NOSIGNATURE
}

TEST(InstallerResources, ManifestAndIconGroup138) {
  const std::string resources =
      Tool({"resources", Wine::WindowsPath(std::filesystem::path(test_paths::kWindowsBin) / "QuenlithSetup.exe")});
  for (const char* part : {"level=\"asInvoker\"", "<dpiAware", "Microsoft.Windows.Common-Controls",
                           "version=\"6.0.0.0\"", "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",                          // 10
                           "icon 16x16", "icon 32x32", "icon 48x48", "icon 256x256"})
    EXPECT_NE(resources.find(part), std::string::npos) << part << " in\n" << resources;
}

}  // namespace
