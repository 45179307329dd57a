// The runtime: what every other module builds on.
#pragma once

#include <corvex/runtime/chain.h>      // TChain, TChainLink
#include <corvex/runtime/exception.h>  // TException, TRuntimeException, RunGuarded, DieWithException
#include <corvex/runtime/list.h>       // TList, TLink
#include <corvex/runtime/module.h>     // BeginModuleStart, StartedModules, StartRuntimeModule
#include <corvex/runtime/object.h>     // Ref, TObject, type registry
#include <corvex/runtime/string.h>     // TString, UTF-8/Latin-1 conversion, DecimalString, ToLower
