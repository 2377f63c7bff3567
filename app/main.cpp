#include "application.h"

int main(int argc, char *argv[])
{
    return runHalvoGui(argc, argv);
}
