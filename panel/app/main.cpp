#include "panel/app/startup.h"

int main(int argc, char** argv) {
    return runPanel(argc, argv);
}
