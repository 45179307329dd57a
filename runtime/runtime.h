// The runtime: what every other module builds on.
#pragma once

#include "runtime/exception.h"  // TException, TRuntimeException, RunGuarded, DieWithException
#include "runtime/list.h"       // TList, TLink
#include "runtime/module.h"     // BeginModuleStart, StartedModules, StartRuntimeModule
#include "runtime/object.h"     // Ref, TObject, type registry
#include "runtime/string.h"     // TString, UTF-8/Latin-1 conversion, DecimalString, ToLower
