#pragma once
// The wizard's geometry at any scale: every layout constant is given in
// pixels at 96 DPI and used as trunc(constant x scale), each constant
// converted separately. Needs no Windows API.

#include "script/config.h"

struct LayoutRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const LayoutRect&) const = default;
};

// trunc(constant x scale).
int Scaled(double constant, double scale);

// The location page's controls for a client area of `width` x `height`.
LayoutRect DestinationRect(int width, double scale);
// The `index`-th created check box (0 first).
LayoutRect CheckBoxRect(int index, double scale);
LayoutRect BrowseRect(int width, double scale);
LayoutRect ResetRect(int width, double scale);
LayoutRect NextRect(int width, int height, double scale);
LayoutRect CancelRect(int width, int height, double scale);
// The complete page's launch button, in the place of Cancel.
LayoutRect LaunchRect(int width, int height, double scale);

// The progress bar of the installing page.
LayoutRect ProgressRect(int width, int height, double scale);

// The number of steps a complete installation sends: 5, plus one for each
// shortcut family and the uninstall entry the script offers.
int ProgressStepTotal(const InstallerConfig& config);

// The filled width of a bar `width` wide at `fraction` (rounded).
int ProgressFilled(int width, double fraction);

// The highlight that slides back and forth over the filled part of the bar,
// one step per painted frame.
struct Glint {
  bool started = false;
  int step = 0;
  int velocity = 0;
  int offset = 0;
};

// Where the highlight's two halves start (left and mid) and where it ends.
struct GlintSpan {
  int left = 0, mid = 0, right = 0;
  bool operator==(const GlintSpan&) const = default;
};

// Whether a fill of `filled` pixels is drawn at all, and gets the highlight.
bool ShowsFill(int filled, double scale);
bool ShowsGlint(int filled, double scale);

// How far both highlight halves sit right of their place: 1 at exactly 200 %.
int GlintShift(double scale);

// Moves the highlight one frame over a bar at `x` filled `filled` wide and
// returns where to draw it this frame; a reversal at either end applies
// from the next frame.
GlintSpan AdvanceGlint(Glint& glint, int x, int filled, double scale);
