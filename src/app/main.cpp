// SPDX-License-Identifier: Apache-2.0
#include "app/brondale_app.h"

int main(int argc, char** argv) {
    CBrondaleApp app;
    return app.Run(argc, argv);
}
