// Ids shared by the resource script and the Win32 program.
#pragma once

// The window's dialog template and its icon (icon group 1).
#define IDD_FRMQR 100
#define IDI_QRGENERATOR 1

// Control ids, named by role; their values are what other programs see. The
// command buttons carry their index in the form's `cmd` (Command's order);
// Exit has the dialog's cancel id (the window itself takes Esc before the
// dialog manager).
#define IDC_CMD_CREATE 1000
#define IDC_CMD_OPEN 1001
#define IDC_CMD_PRINT 1002
#define IDC_CMD_COPY 1003
#define IDC_CMD_EXIT 2 /* IDCANCEL */
#define IDC_TEXT_BOX 1100
#define IDC_LEVEL_0 1200 /* level button i is IDC_LEVEL_0 + i, its level */
#define IDC_SIZE_LIST 1300
#define IDC_LEVEL_FRAME 1400
#define IDC_SIZE_LABEL 1500
#define IDC_PREVIEW 1600
