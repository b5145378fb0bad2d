// Where the sub-dialogs are plugged into the program. Each subsystem that
// builds a dialog replaces its placeholder method here with a call to it.
#include "app/seams.h"

namespace zr417 {

namespace {

class ProgramDialogs : public PlaceholderSubDialogs {
    // Key assignment (CKeyMap / CKeymapDlg420), macro manager and profile
    // manager: not built into the program yet; the placeholders show nothing
    // and answer Cancel.
};

}  // namespace

SubDialogs& ProgramSubDialogs()
{
    static ProgramDialogs dialogs;
    return dialogs;
}

}  // namespace zr417
