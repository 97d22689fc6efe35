// The real panel, except that it closes one second after its editor quits instead of a
// minute, so that tests of that road take seconds.
#include "panel/app/startup.h"

int main(int argc, char** argv) {
    return runPanel(argc, argv, PanelSeams{1.0});
}
