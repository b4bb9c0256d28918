// A stand-in engine that ends at once without leaving any sentinel.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return 3;
}
