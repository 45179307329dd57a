// Start-up of the net module: its stream factories.
#include <corvex/net/socket.h>
#include <corvex/runtime/module.h>

#include "net/platform.h"

namespace corvex {

void StartNetModule() {
    StartStreamModule();
    if (!BeginModuleStart("net")) return;
    netos::Startup();
    RegisterStreamFactory(std::make_shared<TSocketStreamFactory>());
}

}  // namespace corvex
