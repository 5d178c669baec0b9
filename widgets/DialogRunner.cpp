#include "widgets/DialogRunner.h"
#include "widgets/WindowPlacement.h"

#include <QDialog>

namespace {
class ExecRunner : public DialogRunner {
public:
    int run(QDialog *dialog) override { return dialog->exec(); }
};

ExecRunner execRunner;
DialogRunner *current = nullptr;
} // namespace

DialogRunner &dialogRunner()
{
    return current ? *current : static_cast<DialogRunner &>(execRunner);
}

void setDialogRunner(DialogRunner *runner)
{
    current = runner;
}

int runModal(QDialog *dialog)
{
    // In the middle of the window it belongs to, its title bar included.
    centreWhenShown(dialog);
    return dialogRunner().run(dialog);
}
