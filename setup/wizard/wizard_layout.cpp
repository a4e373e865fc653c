#include "wizard/wizard_layout.h"

#include <cmath>

int Scaled(double constant, double scale) { return static_cast<int>(constant * scale); }

LayoutRect DestinationRect(int width, double s) {
  return {Scaled(30, s), Scaled(110, s), width - Scaled(60, s), Scaled(20, s)};
}

LayoutRect CheckBoxRect(int index, double s) {
  return {Scaled(30, s), Scaled(170, s) + index * Scaled(20, s), Scaled(300, s), Scaled(16, s)};
}

LayoutRect BrowseRect(int width, double s) {
  return {width + Scaled(-86, s) - Scaled(30, s), Scaled(135, s), Scaled(86, s), Scaled(22, s)};
}

LayoutRect ResetRect(int width, double s) {
  return {width + Scaled(-86, s) - Scaled(30, s) - Scaled(10, s) - Scaled(120, s), Scaled(135, s), Scaled(120, s),
          Scaled(22, s)};
}

LayoutRect NextRect(int width, int height, double s) {
  return {width - Scaled(184, s), height - Scaled(33, s), Scaled(86, s), Scaled(25, s)};
}

LayoutRect CancelRect(int width, int height, double s) {
  return {width - Scaled(96, s), height - Scaled(33, s), Scaled(86, s), Scaled(25, s)};
}

LayoutRect LaunchRect(int width, int height, double s) { return CancelRect(width, height, s); }

LayoutRect ProgressRect(int width, int height, double s) {
  return {Scaled(30, s), height - Scaled(36, s), width - Scaled(60, s), Scaled(6, s)};
}

int ProgressStepTotal(const InstallerConfig& config) {
  return 5 + (config.setupUninstallInformation != 0) + (config.setupStartup != 0) + (config.setupStartMenu != 0) +
         (config.setupDesktopIcon != 0);
}

int ProgressFilled(int width, double fraction) { return static_cast<int>(std::lround(width * fraction)); }

bool ShowsFill(int filled, double s) { return filled > Scaled(8, s); }
bool ShowsGlint(int filled, double s) { return filled >= Scaled(48, s); }

int GlintShift(double s) { return s == 2.0 ? 1 : 0; }

GlintSpan AdvanceGlint(Glint& glint, int x, int filled, double s) {
  if (!glint.started) {
    glint.started = true;
    glint.step = Scaled(2, s);
    glint.velocity = glint.step;
  }
  glint.offset += glint.velocity;
  if (glint.offset > Scaled(-8, s) - Scaled(40, s) + filled)
    glint.velocity = -glint.step;
  else if (glint.offset < 0)
    glint.velocity = glint.step;
  const int left = glint.offset - Scaled(-4, s) + x;
  const int mid = left - Scaled(-20, s);
  return {left, mid, mid - Scaled(-20, s)};
}
