#include "app/brondale_app.h"

int main(int argc, char** argv) {
    CBrondaleApp app;
    return app.Run(argc, argv);
}
