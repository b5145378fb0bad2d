#include "app/kalvex_app.h"

int main(int argc, char** argv)
{
    zr417::CKalvexApp app;
    app.InitInstance(argc, argv);
    return 0;
}
