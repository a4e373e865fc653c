#pragma once
// What the wizard draws itself, into an off-screen buffer copied to the
// window in one piece: logo, picture, header text, notice band and progress
// bar.

#include <windows.h>

// The picture's PNG resource id for the user's locale and today's date.
int SelectPictureResource();

// Handles WM_PAINT for the wizard window.
void PaintWizard(HWND window);

// Repaints only the installing page's progress bar (its highlight moves each frame).
void RepaintProgressBar(HWND window);
