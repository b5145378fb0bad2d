// Where the sub-dialogs are plugged into the program: each runs the dialog
// its subsystem builds.
#include "app/seams.h"

#include "config/ui/configure_dlg.h"
#include "keymap/keymap_dialogs.h"
#include "macro/macro_record_dlg.h"

namespace zr417 {

namespace {

class ProgramDialogs : public SubDialogs {
public:
    // CKeyMap (first model) or CKeymapDlg420 (the others).
    bool runKeyAssignment(const DialogContext& ctx, KeyAssignmentState& state, ConfigImage& image) override
    {
        AssignmentDialog dialog =
            KeyAssignmentDialogFor(ctx.parent, ctx.model, ctx.macros->g_macroTable(), ctx.language, ctx.paths);
        return dialog(state, image);
    }
    // CMacroRecordDlg on the macro table.
    bool runMacroManager(const DialogContext& ctx) override
    {
        return RunMacroManager(ctx.parent, *ctx.macros, ctx.language, ctx.paths);
    }
    // CConfigureDlg over the main window's corner.
    void runProfileManager(const DialogContext& ctx, const QRect& mainRect) override
    {
        ProfileManagerSeams seams;
        seams.openAutomaticProfiles = ctx.openAutomaticProfiles;
        RunProfileManager(ctx.parent, mainRect, *ctx.store, ctx.language, ctx.paths, std::move(seams));
    }
};

}  // namespace

SubDialogs& ProgramSubDialogs()
{
    static ProgramDialogs dialogs;
    return dialogs;
}

}  // namespace zr417
