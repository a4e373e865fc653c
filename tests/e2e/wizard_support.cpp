#include "wizard_support.h"

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

namespace e2e {

void WizardFixture::TearDown() {
  DismissWizard(wine_, 5000);
  E2eTest::TearDown();
}

std::string WizardFixture::Tool(const std::vector<std::string>& args) { return Wintool(wine_, args); }

bool WizardFixture::WaitForWizard() {
  for (int i = 0; i < 300; ++i) {
    if (Tool({"window", kWizardClass, "30000"}).find("visible=1") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

std::pair<int, int> WizardFixture::ClientSize() {
  int width = 0, height = 0;
  std::istringstream lines(Tool({"window", kWizardClass}));
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("client=", 0) == 0) std::sscanf(line.c_str(), "client=%dx%d", &width, &height);
  return {width, height};
}

std::map<int, Control> WizardFixture::Children() {
  std::map<int, Control> controls;
  std::istringstream lines(Tool({"children", kWizardClass}));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Control c;
    int id = 0, visible = 0, enabled = 0;
    char className[64] = "";
    if (std::sscanf(line.c_str(), "id=%d class=%63s x=%d y=%d w=%d h=%d visible=%d enabled=%d check=%d style=%lx", &id,
                    className, &c.x, &c.y, &c.width, &c.height, &visible, &enabled, &c.check, &c.style) != 10)
      continue;
    c.className = className;
    c.visible = visible != 0;
    c.enabled = enabled != 0;
    const std::size_t text = line.find(" text=");
    if (text != std::string::npos) c.text = line.substr(text + 6);
    controls[id] = c;
  }
  return controls;
}

bool WizardFixture::WaitForCompletePage() {
  for (int i = 0; i < 300; ++i) {
    const std::map<int, Control> controls = Children();
    if (controls.size() == 1 && controls.count(IDC_NEXT) && controls.at(IDC_NEXT).text == "&Launch") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

bool WizardFixture::WizardGone() { return Tool({"window", kWizardClass}).find("client=") == std::string::npos; }

bool WizardFixture::WaitUntilWizardGone() {
  for (int i = 0; i < 300; ++i) {
    if (WizardGone()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

void WizardFixture::PressWhenReady(int id) {
  for (int i = 0; i < 50; ++i) {
    const std::map<int, Control> controls = Children();
    if (controls.count(id) && controls.at(id).enabled) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Command(id);
}

void WizardFixture::SetText(int id, const std::string& text) {
  Tool({"settext", kWizardClass, std::to_string(id), text});
}

void WizardFixture::SetCheck(int id, bool checked) {
  Tool({"setcheck", kWizardClass, std::to_string(id), checked ? "1" : "0"});
}

void WizardFixture::Command(int id) { Tool({"command", kWizardClass, std::to_string(id)}); }

void WizardFixture::Key(int virtualKey) { Tool({"key", kWizardClass, std::to_string(virtualKey)}); }

void WizardFixture::Post(int message) { Tool({"post", kWizardClass, std::to_string(message)}); }

}  // namespace e2e
