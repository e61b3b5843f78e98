// The program's side of the recording library: the end of its use.
#pragma once

// Traces the end of the library's use to the debugger output; called once at exit, after
// every library object is gone.
void FinalizeHalvorinImport();
