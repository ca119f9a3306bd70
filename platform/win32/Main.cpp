// The program's entry on hosts other than Windows: Windows starts WinMain itself.
#include "platform/platform.h"

int main(int, char**)
{
    return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);
}
