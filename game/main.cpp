// physbox: the physics sandbox.
#include "game/sandbox.h"
#include "system/entry.h"

int main(int argc, char** argv) {
    return kvl::RunApplication(argc, argv, [] { kvl::RunGame(); });
}
