// The main window: the list of registered Quillmar releases, Delete and
// Cancel. Its layout and event bindings are the form resource in
// UninstallKeysOnlyMainF.cpp.
#pragma once

#include "platform/Forms.h"

class TUninstallKeysOnlyMainForm : public TForm {
public:
    TUninstallKeysOnlyMainForm();

    // Components, in declaration order; owned by the form.
    TListBox* ListBox = nullptr;
    TButton* DeleteButton = nullptr;
    TButton* CancelButton = nullptr;
    TLabel* Label1 = nullptr;
    TTimer* Timer1 = nullptr;

    void Timer1Timer(TObject* Sender);
    void DeleteButtonClick(TObject* Sender);
    void CancelButtonClick(TObject* Sender);
    void ListBoxClick(TObject* Sender);
};

extern TUninstallKeysOnlyMainForm* UninstallKeysOnlyMainForm;

// Lists the "DisplayName" of every registered catalogued release in the
// window's list, in catalogue order, all selected; tells the user and closes
// the window when there is none. Disables the window's timer first, so that
// it runs once even when it fails. Errors leave it as exceptions.
void ScanInstalledReleases(TUninstallKeysOnlyMainForm& window);
