// Start-up of the net module: its stream factories ("tcp", "http" and "https").
#include <corvex/net/http.h>
#include <corvex/net/socket.h>
#include <corvex/runtime/module.h>

#include "net/platform.h"

namespace corvex {

void StartNetModule() {
    StartStreamModule();
    if (!BeginModuleStart("net")) return;
    netos::Startup();
    RegisterStreamFactory(std::make_shared<TSocketStreamFactory>());
    RegisterStreamFactory(std::make_shared<THttpStreamFactory>());
}

}  // namespace corvex
