// The program's entry: the application object, the main window and the
// message loop. Whatever escapes them is shown, and the exit code is 0.
#include "UninstallKeysOnlyMainF.h"
#include "platform/Forms.h"
#include "platform/SysUtils.h"

int ApplicationMain() {
    try {
        Application->Initialize();
        Application->CreateForm(UninstallKeysOnlyMainForm);
        Application->Run();
    } catch (const Exception& e) {
        Application->ShowException(e);
    } catch (...) {
        try {
            throw Exception("");
        } catch (const Exception& e) {
            Application->ShowException(e);
        }
    }
    return 0;
}
