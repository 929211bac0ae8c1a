// Identifiers of the resources carried by Quillo.dll (shared by Quillo.rc and the code).
#pragma once

#define IDB_CHECK 201  // green check mark, navy shading: normal and greyed, 36 x 18
#define IDB_CROSS 202  // red cross: normal and greyed, 36 x 18
// The same pictures drawn for larger scales: the identifier plus this step for each size of
// kPictureSizes (ui/uApplication.cpp) after the first: 23, 27 and 36 pixels high.
#define IDB_SIZE_STEP 10
// The Windows 11 command's menu icon (Quillo.ico: 16 and 32 pixels), read by the shell as
// "Quillo.dll,-IDI_QUILLO".
#define IDI_QUILLO 101
