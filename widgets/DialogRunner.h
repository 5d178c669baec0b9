#pragma once

class QDialog;

// Showing a dialog modally. The real runner calls exec(); tests install one that works
// the dialog through its public handlers instead, so nothing waits for a person.
class DialogRunner {
public:
    virtual ~DialogRunner() = default;
    // Runs the dialog to its end and returns its result code.
    virtual int run(QDialog *dialog) = 0;
};

DialogRunner &dialogRunner();
void setDialogRunner(DialogRunner *runner); // nullptr restores exec()

// Shows dialog modally through the current runner, centred on the window it belongs to.
int runModal(QDialog *dialog);
