#include "app/Run.h"

#include "app/InstallerUi.h"

void PerformInstall(InstallerUi& ui) {
    ui.SetCancelEnabled(false);
    ui.SetInstallEnabled(false);
    ui.SetCancelEnabled(true);
}
