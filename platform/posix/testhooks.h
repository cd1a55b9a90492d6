// Test-only controls of the POSIX platform. Tests may include this header; system code never does.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Debug output: everything written through OutputDebugStringA/W since the last clear, as UTF-8.
// DebugOutputCapture answers the captured text and clears it; DebugOutputPeek leaves it in place.
std::string DebugOutputCapture();
std::string DebugOutputPeek();
void DebugOutputClear();

// Task allocator. TaskMemFailAt(n) makes the nth allocation from now fail (1 = the next one; 0 turns the
// hook off); TaskMemFailFrom(n) makes the nth and every later one fail. CoTaskMemAlloc and every
// CoTaskMemRealloc that needs a block count as allocations. TaskMemOutstanding counts blocks handed out
// and not yet freed, to catch a caller that leaks or double-frees task memory.
void TaskMemFailAt(unsigned long n);
void TaskMemFailFrom(unsigned long n);
long TaskMemOutstanding();

// Kernel objects. KernelObjectFailAt(n) makes the nth creation of a semaphore or event from now fail
// with ERROR_NOT_ENOUGH_MEMORY (1 = the next one; 0 turns the hook off).
void KernelObjectFailAt(unsigned long n);

// Registry: the file the registry functions use now ($QUENLIX_REGISTRY when set). Tests point
// QUENLIX_REGISTRY at a file of their own so that they never touch the user's registry.
std::string RegistryFilePath();

// Window layer. UserMemFailAt(n) / UserMemFailFrom(n) make the nth allocation of the window layer from now
// fail (window creation, control entries, list items and texts, window text, resource registration; 0 turns
// the hook off), so that callers' answers to CB_ERRSPACE, -1, FALSE and NULL can be tested.
// LiveWindowCount counts windows that exist, to catch a dialog that is never destroyed.
void UserMemFailAt(unsigned long n);
void UserMemFailFrom(unsigned long n);
size_t LiveWindowCount();

// A user's input, delivered as Windows delivers it. Both answer FALSE, and send nothing, when the control is
// not of the right class, is disabled or sits in a disabled window (a user cannot reach it). Visibility is
// not required: headless tests drive dialogs that were never shown.
// QxSimulateClick: BM_CLICK, so the parent gets WM_COMMAND with BN_CLICKED (0) in the high word.
// QxSimulateSelect: a mouse pick of entry index from the dropped list: CBN_DROPDOWN, the selection changes,
// CBN_SELENDOK, CBN_CLOSEUP, then CBN_SELCHANGE when the selection is not the one already held.
BOOL QxSimulateClick(HWND button);
BOOL QxSimulateSelect(HWND combo, int index);

// Message boxes shown through the default presenter (none is installed): owner, text, caption, flags.
// MessageBoxCapture answers them and clears the record.
struct RecordedMessageBox {
    HWND owner;
    std::string text;
    std::string caption;
    unsigned type;
};
std::vector<RecordedMessageBox> MessageBoxCapture();
void MessageBoxClear();

// Holds a resource script (the .rc a module is built with on Windows) against the resources the module
// registered here: every DIALOG/DIALOGEX (styles as the resource compiler makes them, rectangles, texts,
// classes, font) and every STRINGTABLE entry. defines holds #define lines the script's names need (its
// resource.h); the script's own #define lines count too, other preprocessor lines are passed over.
// Answers "" when they agree, otherwise one line per difference (or the script's first syntax error).
std::string ResourceScriptMismatch(HINSTANCE module, const std::string& script,
                                   const std::string& defines = "");
