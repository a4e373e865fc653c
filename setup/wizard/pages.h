#pragma once
// The wizard's pages: the controls each page creates and destroys, the
// options toggle and the folder dialog behind Browse.

#include <windows.h>

#include <string>

#include "script/config.h"

// The destination box, the check boxes the script allows, Browse, Reset,
// Next and Cancel; WizardState becomes Location.
void CreateLocationPage(HWND window);
// Destroys the location page's controls (only on that page).
void DestroyLocationPage(HWND window);
// No controls: the progress bar is drawn. WizardState becomes Installing.
void CreateInstallingPage(HWND window);
// The launch button; WizardState becomes Complete.
void CreateCompletePage(HWND window);

// Moves every control of the page to its place at the window's scale and
// client size and gives it the wizard's font (after the DPI changed).
void FitPageToScale(HWND window);

// Switches between Location and LocationOptions, showing or hiding the boxes.
void ToggleOptions(HWND window);
// Browse: replaces the destination text by the folder the user picks.
void OnBrowse(HWND window);

// The destination box's whole text, however long; empty without the box.
std::string DestinationText(HWND window);
// Replaces the destination box's text (raises EN_CHANGE).
void SetDestinationText(HWND window, const std::string& text);
// The check boxes' states, 0 for a box that was not created.
WizardChoices CheckedBoxes(HWND window);
