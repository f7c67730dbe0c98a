#include "TolvaApp.h"

int main(int argc, char* argv[])
{
    return CTolvaApp::run(argc, argv);
}
