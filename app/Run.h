// The installation run: everything one press of "&Instalar" does, in order.
#pragma once

class InstallerUi;

// The body of TFormInst::SBInstalarClick. Failures leave as exceptions (the error display shows
// them); the buttons then stay disabled.
void PerformInstall(InstallerUi& ui);
