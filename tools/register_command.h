// The module commands of the quenlix program, and how the program obtains the module's classes.
//
//   quenlix register [MODULE]     load MODULE (default: quenlix.ax beside the program,
//                                 else in the installed library folder) and call its
//                                 DllRegisterServer, as regsvr32 does
//   quenlix unregister [MODULE]   the same with DllUnregisterServer
//   quenlix registry              what the registry holds for the filter and its property page
//
// The exit statuses of register and unregister are regsvr32's.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace quenlix {

enum RegisterExit {
    kRegisterOk = 0,
    kRegisterUsage = 1,    // bad arguments
    kRegisterNoCom = 2,    // COM could not be initialised
    kRegisterNoModule = 3, // the module cannot be loaded
    kRegisterNoEntry = 4,  // the module lacks the entry point
    kRegisterFailed = 5,   // the entry point answered a failure
};

// The three commands' part of quenlix --help, to follow a "module commands:" heading.
extern const char kRegisterHelp[];

// args: what follows the command word. They print results to stdout and failures to stderr and
// answer the exit status (RunRegistry: 0, 1 for bad arguments, 2 when the registry cannot be read).
int RunRegister(const std::vector<std::string>& args);
int RunUnregister(const std::vector<std::string>& args);
int RunRegistry(const std::vector<std::string>& args);

// quenlix.ax in the program's own folder.
std::string ModuleBesideProgram();

// The module the program uses when none is named: quenlix.ax beside the program, else, in an
// installed tree, the one in the library folder (lib/quenlix/quenlix.ax).
std::string DefaultModule();

// A short text for an HRESULT: "0x80040154 (class not registered)".
std::string DescribeHresult(HRESULT hr);

// Creates an object of one of the module's classes (CLSID_TableCollectorFilter,
// CLSID_TableCollectorPropertyPage) and answers its interface riid:
// - through CoCreateInstance when COM is initialised on the thread and the class is registered
//   with a module that loads and serves it;
// - else from quenlix.ax beside the program, through its own DllGetClassObject. That module stays
//   loaded for the rest of the program.
// *from, when given, receives the module the object came from (on a failure: the module tried last).
// A failure of the object itself (out of memory, no such interface) is answered as it is, without
// trying the other way.
HRESULT CreateCollector(REFCLSID clsid, REFIID riid, void** ppv, std::string* from = nullptr);

} // namespace quenlix
