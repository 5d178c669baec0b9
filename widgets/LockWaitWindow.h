#pragma once

// The program's answer to a write that waits for another copy's lock (another desk saving
// a batch of an import, a payment): after half a second a window says that it waits for
// the other desk, with "放弃". The window answers meanwhile. Giving up fails the statement
// as busy; its transaction stores nothing. Waits on other threads are left alone.
void installLockWaitWindow();
