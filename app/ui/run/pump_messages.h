// Handles the GUI thread's waiting events between the steps of a long loop.
#pragma once

// True when the queue is empty; false when a quit request came in. The request is kept, so
// the program still ends: inside a running event loop it is posted again; before the loop
// runs, RunMessageLoop sees it.
bool PumpMessages();

// The program's message loop (QApplication::exec); returns at once with 0 when a quit was
// requested before it started.
int RunMessageLoop();
