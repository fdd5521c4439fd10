#include "UninstallKeysOnlyMainF.h"

#include "Forceuninstallqm.h"
#include "platform/Registry.h"

#include <memory>

TUninstallKeysOnlyMainForm* UninstallKeysOnlyMainForm = nullptr;

namespace {

using F = TUninstallKeysOnlyMainForm;

const TFormResource<F> UninstallKeysOnlyMainFormResource = {
    .Form = {.Name = "UninstallKeysOnlyMainForm",
             .Caption = "Uninstall Keys Only",
             .Left = 84,
             .Top = 123,
             .ClientWidth = 617,
             .ClientHeight = 222,
             .BorderStyle = bsDialog,
             .Color = clBtnFace,
             .Font = {.Name = "MS Sans Serif", .Height = -11, .Charset = DEFAULT_CHARSET_VALUE, .Color = clWindowText}},
    .Components = {
        {.Field = &F::ListBox,
         .Props = {.Name = "ListBox", .Left = 8, .Top = 40, .Width = 601, .Height = 137, .TabOrder = 0,
                  .ItemHeight = 13, .MultiSelect = true},
         .OnClick = &F::ListBoxClick},
        {.Field = &F::DeleteButton,
         .Props = {.Name = "DeleteButton", .Left = 144, .Top = 184, .Width = 75, .Height = 25, .Caption = "Delete",
                  .TabOrder = 1},
         .OnClick = &F::DeleteButtonClick},
        {.Field = &F::CancelButton,
         .Props = {.Name = "CancelButton", .Left = 224, .Top = 184, .Width = 75, .Height = 25, .Caption = "Cancel",
                  .TabOrder = 2, .Cancel = true, .ModalResult = mrCancel},
         .OnClick = &F::CancelButtonClick},
        {.Field = &F::Label1,
         .Props = {.Name = "Label1", .Left = 16, .Top = 8, .Width = 266, .Height = 13,
                  .Caption = "Delete the following programs from the Windows registry:"}},
        {.Field = &F::Timer1, .Props = {.Name = "Timer1", .Interval = 10, .Enabled = true}, .OnTimer = &F::Timer1Timer},
    }};

}  // namespace

TUninstallKeysOnlyMainForm::TUninstallKeysOnlyMainForm() { LoadFromResource(UninstallKeysOnlyMainFormResource); }

void TUninstallKeysOnlyMainForm::Timer1Timer(TObject* /*Sender*/) { ScanInstalledReleases(*this); }

void TUninstallKeysOnlyMainForm::ListBoxClick(TObject* /*Sender*/) {
    // The list only informs: the removal looks the releases up again and
    // takes them all, so the list must never look as if it could be narrowed.
    ListBox->SelectAll();
}

void TUninstallKeysOnlyMainForm::CancelButtonClick(TObject* /*Sender*/) { Close(); }

void TUninstallKeysOnlyMainForm::DeleteButtonClick(TObject* /*Sender*/) {
    if (Application->MessageBox("Korvath takes no responsibility for this potentially damaging decision.\n"
                                "Would you like to proceed?",
                                "Warning", MB_YESNO) != IDYES)
        return;
    switch (ForceUninstall()) {
    case TRemovalOutcome::Completed:
        Application->MessageBox("Done with removal.\nPlease restart your computer.", "", MB_OK);
        break;
    case TRemovalOutcome::StoppedNoDirectory:
        Application->MessageBox("Removal stopped: Quillmar's settings file records no installation directory.\n"
                                "Releases not removed yet are still registered.",
                                "Warning!", MB_OK);
        break;
    case TRemovalOutcome::ToolNotRun:
        Application->MessageBox("The clean-up tool msizap could not be run.\n"
                                "Releases it could not reach are still registered.",
                                "Warning!", MB_OK);
        break;
    }
    Close();
}

void ScanInstalledReleases(TUninstallKeysOnlyMainForm& window) {
    window.Timer1->SetEnabled(false);

    auto registry = std::make_unique<TRegistry>();
    registry->RootKey = HKEY_LOCAL_MACHINE;
    if (!registry->OpenKey(UninstallKeyPath, false)) throw Exception("Missing uninstall key");

    // A release's key stays open until the next successful open replaces it
    // or the registry object goes.
    for (const char* const* code = ProductCodes; **code != '\0'; ++code) {
        if (!registry->OpenKey(ReleaseKeyPath(*code), false)) continue;
        window.ListBox->AddItem(registry->ReadString("DisplayName"));
    }

    window.ListBox->SelectAll();
    if (window.ListBox->Count() == 0) {
        Application->MessageBox("Quillmar doesn't appear to be installed", "Warning!", MB_OK);
        window.Close();
    }
}
