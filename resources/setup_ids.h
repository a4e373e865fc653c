// The numbers that name the installer's own things: its resources, the
// wizard's controls and the window messages of the install sequence. The
// resource script, the installer and the tests (native and Windows-side)
// include this one header, so a number changes in one place or nowhere.
// Only #define lines: the resource compiler reads it too.
#ifndef QUENLITH_SETUP_IDS_H
#define QUENLITH_SETUP_IDS_H

// Resources.
#define IDI_SETUP 138   // icon group: the wizard's class icon and the notification-area icon
#define IDB_LOGO 143    // PNG: the logo in every page's header
// PNG: the pictures of the installing and complete pages, chosen by date and locale.
#define IDB_PICTURE_NATIONAL_DAY 145
#define IDB_PICTURE_WINTER_HOLIDAY 146
#define IDB_PICTURE_BEFORE_EASTER 147
#define IDB_PICTURE_AUTUMN 148
#define IDB_PICTURE_GREETINGS 149  // also every locale but the seasonal one
#define IDB_PICTURE_HALLOWEEN 150
#define IDB_PICTURE_INDEPENDENCE_DAY 151
#define IDB_PICTURE_NEW_YEAR 154
#define IDB_PICTURE_SPRING 155
#define IDB_PICTURE_SUMMER 156
#define IDB_PICTURE_HARVEST_FEAST 157
#define IDB_PICTURE_SWEETHEARTS 158
#define IDB_PICTURE_WINTER 159

// The wizard's controls: the ids its command handling and the tests that
// drive it from another process address them by. IDCANCEL (2), the
// system's, is the location page's Cancel and the close box's command.
#define IDC_STARTMENU 1002    // check box: start-menu shortcuts
#define IDC_DESTINATION 1003  // edit box: the destination folder
#define IDC_BROWSE 1004       // push button: the folder dialog
#define IDC_DESKTOP 1005      // check box: desktop shortcuts
#define IDC_UNINSTALL 1007    // check box: uninstall entry (may be hidden, still counted)
#define IDC_OPTIONS 1015      // the options toggle: handled, but no page creates it
#define IDC_NEXT 1030         // "&Next >" on the location page, "&Launch" on the complete page
#define IDC_STARTUP 1048      // check box: start-up shortcut
#define IDC_RESET 1049        // push button: back to the default location

// The install sequence's window messages, all with wParam and lParam 0
// (WM_USER is 0x0400; DM_GETDEFID, the dialog manager's, is WM_USER itself).
// Sent after each finished stage; the sequence waits until the window has
// handled it, so the wizard's progress bar is repainted before it goes on.
#define WM_SETUP_STEP (WM_USER + 6)
// Sent by the install thread once the sequence has returned and "complete"
// was reported: the wizard writes the plug-in list, then launches or shows
// its last page.
#define WM_SETUP_DONE (WM_USER + 2)
// Posted at the end of the sequence, this one first, then WM_SETUP_ENDED: no
// window of the installer acts on them, but a window that listens for the
// end of an installation (or a trace of the silent window) has always seen
// both, so they are kept.
#define WM_SETUP_ENDING (WM_USER + 5)
#define WM_SETUP_ENDED (WM_USER + 4)

#endif  // QUENLITH_SETUP_IDS_H
