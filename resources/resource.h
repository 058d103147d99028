// Resource identifiers of the installer image, grouped by kind.
#pragma once

// Dialogs
#define IDD_INSTALL_FOLDER 101

// Dialog controls
#define IDC_FOLDER_EDIT 1000

// Icons
#define IDI_INSTALLER 102
