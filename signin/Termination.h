// The program's termination request. Like the original platform's, it is a posted quit: a request
// made before the message loop runs ends the loop at its first message. The start-up also asks
// TerminationRequested() so that it never shows a window the user would only see flash.
#pragma once

// Posts the quit request and remembers it. User-interface thread.
void RequestTermination();
bool TerminationRequested();
// For tests that run several start-ups in one process.
void ResetTerminationRequest();
