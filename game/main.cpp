// physbox: the physics sandbox.
#include "game/sandbox.h"
#include <corvex/system/entry.h>

int main(int argc, char** argv) {
    return corvex::RunApplication(argc, argv, [] { corvex::RunGame(); });
}
