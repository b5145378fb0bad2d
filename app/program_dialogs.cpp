// Where the sub-dialogs are plugged into the program. Each subsystem that
// builds a dialog replaces its placeholder method here with a call to it.
#include "app/seams.h"

#include "keymap/keymap_dialogs.h"

namespace zr417 {

namespace {

class ProgramDialogs : public PlaceholderSubDialogs {
public:
    // CKeyMap (first model) or CKeymapDlg420 (the others).
    bool runKeyAssignment(const DialogContext& ctx, KeyAssignmentState& state, ConfigImage& image) override
    {
        AssignmentDialog dialog =
            KeyAssignmentDialogFor(ctx.parent, ctx.model, ctx.macros->g_macroTable, ctx.language, ctx.paths);
        return dialog(state, image);
    }
    // Macro manager and profile manager: not built into the program yet; the
    // placeholders show nothing and answer Cancel.
};

}  // namespace

SubDialogs& ProgramSubDialogs()
{
    static ProgramDialogs dialogs;
    return dialogs;
}

}  // namespace zr417
