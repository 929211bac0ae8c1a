// Whether Quillo.dll leaves its host as it found it: the heap in use (walked) after the first
// tenth of a long run and after the whole, each kind in a fresh process.
#pragma once

#include <string>

// The child modes: N right-clicks; N note windows opened through InvokeCommand and closed,
// each time until its UI thread has ended; N loads and unloads, with one right-click in each
// when `rightClick`. Each prints its lines on the standard output.
int StabilityClicksMain(const std::string& dllPath, long count);
int StabilityNotesMain(const std::string& dllPath, long count);
int StabilityPlainMain(const std::string& dllPath, long count);
int StabilityCyclesMain(const std::string& dllPath, long count, bool rightClick);

// Runs all of them, each in a process of its own, and prints what they found.
void StabilityRows(const std::string& dllPath);
