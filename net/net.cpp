// Start-up of the net module: its stream factories ("tcp", and "http" and "https" where libcurl
// is built for the target).
#if CORVEX_NET_HTTP
#include <corvex/net/http.h>
#endif
#include <corvex/net/socket.h>
#include <corvex/runtime/module.h>

#include "net/platform.h"

namespace corvex {

void StartNetModule() {
    StartStreamModule();
    if (!BeginModuleStart("net")) return;
    netos::Startup();
    RegisterStreamFactory(std::make_shared<TSocketStreamFactory>());
#if CORVEX_NET_HTTP
    RegisterStreamFactory(std::make_shared<THttpStreamFactory>());
#endif
}

}  // namespace corvex
