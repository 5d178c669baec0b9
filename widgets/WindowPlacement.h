#pragma once

class QWidget;

// Where the program's windows appear: a dialog in the middle of the window it belongs to,
// a window of its own (the login) in the middle of the screen's free area (without the
// desktop's panels). The window's frame, title bar and borders, is included, so that the
// whole window is centred and not only its inside; it stays on the screen.
void centreWindow(QWidget *window);

// Centres the window each time it is shown, and once more when the window system frames
// it soon after (its frame is known only then on some desktops). A window the operator
// moves afterwards stays where it was put.
void centreWhenShown(QWidget *window);
