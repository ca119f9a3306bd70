// The multimedia joystick interface over SDL's joysticks: joystick n is SDL's device n, with
// Windows' ranges (axes 0..65535, centre 32767 or 32768, buttons as bits). Tests may inject
// joysticks in place of the host's.
#include <SDL.h>

#include <cstring>

#include "platform/win32/TestHooks.h"
#include "platform/win32/Win32.h"

namespace {

// The winmm driver answers for 16 joysticks, whether or not they are connected.
const UINT kSupportedJoysticks = 16;
const UINT kMaxButtons = 32;
const UINT kMaxAxes = 6;
const UINT kAxisMax = 65535;
const DWORD kAxisCentre = 32767;

// JOYCAPS wCaps bits and the POV value of a centred hat.
const UINT kCapsHasZ = 0x0001;
const UINT kCapsHasR = 0x0002;
const UINT kCapsHasU = 0x0004;
const UINT kCapsHasV = 0x0008;
const UINT kCapsHasPov = 0x0010;
const UINT kCapsPovContinuous = 0x0040;
const DWORD kPovCentred = 0xFFFF;

// Plain storage only: the input object probes joysticks during static initialisation.
qv::test::FakeJoystick g_fakes[kSupportedJoysticks];
bool g_fakeInjected[kSupportedJoysticks];
bool g_fakeOnly = false;

bool g_sdlTried = false;
bool g_sdlReady = false;
SDL_Joystick* g_open[kSupportedJoysticks];

bool EnsureSdlJoysticks()
{
    if (!g_sdlTried) {
        g_sdlTried = true;
        // Windows reads joysticks whichever window has the focus.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        // This runs before the window layer, during static initialisation; SDL's own
        // SIGINT/SIGTERM handlers would turn a termination request into an event that no
        // window hears, so the process could not be stopped.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        g_sdlReady = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
        // Joysticks are polled, never read from the event queue: keep it free of their events.
        if (g_sdlReady)
            SDL_JoystickEventState(SDL_IGNORE);
    }
    return g_sdlReady;
}

// The open SDL joystick behind id, opened or reopened when the device at that index changed;
// null when there is none.
SDL_Joystick* HostJoystick(UINT id)
{
    if (!EnsureSdlJoysticks())
        return nullptr;
    SDL_JoystickUpdate();
    SDL_Joystick*& open = g_open[id];
    if (static_cast<int>(id) >= SDL_NumJoysticks()) {
        if (open) {
            SDL_JoystickClose(open);
            open = nullptr;
        }
        return nullptr;
    }
    const SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(static_cast<int>(id));
    if (open && (!SDL_JoystickGetAttached(open) || SDL_JoystickInstanceID(open) != instance)) {
        SDL_JoystickClose(open);
        open = nullptr;
    }
    if (!open)
        open = SDL_JoystickOpen(static_cast<int>(id));
    return open;
}

DWORD AxisPosition(SDL_Joystick* joystick, int axis)
{
    if (axis >= SDL_JoystickNumAxes(joystick))
        return kAxisCentre;
    return static_cast<DWORD>(SDL_JoystickGetAxis(joystick, axis) + 32768);
}

// Hat directions in hundredths of a degree clockwise from forward.
DWORD HatPov(Uint8 hat)
{
    switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return kPovCentred;
    }
}

DWORD CountBits(DWORD bits)
{
    DWORD count = 0;
    for (; bits; bits &= bits - 1)
        ++count;
    return count;
}

void FillFakePosition(const qv::test::FakeJoystick& fake, JOYINFOEX* info)
{
    const DWORD flags = info->dwFlags;
    if (flags & JOY_RETURNX)
        info->dwXpos = fake.x;
    if (flags & JOY_RETURNY)
        info->dwYpos = fake.y;
    if (flags & JOY_RETURNZ)
        info->dwZpos = fake.z;
    if (flags & JOY_RETURNR)
        info->dwRpos = kAxisCentre;
    if (flags & JOY_RETURNU)
        info->dwUpos = kAxisCentre;
    if (flags & JOY_RETURNV)
        info->dwVpos = kAxisCentre;
    if (flags & JOY_RETURNBUTTONS) {
        info->dwButtons = fake.buttons;
        info->dwButtonNumber = CountBits(fake.buttons);
    }
    if (flags & JOY_RETURNPOV)
        info->dwPOV = kPovCentred;
}

void FillHostPosition(SDL_Joystick* joystick, JOYINFOEX* info)
{
    const DWORD flags = info->dwFlags;
    if (flags & JOY_RETURNX)
        info->dwXpos = AxisPosition(joystick, 0);
    if (flags & JOY_RETURNY)
        info->dwYpos = AxisPosition(joystick, 1);
    if (flags & JOY_RETURNZ)
        info->dwZpos = AxisPosition(joystick, 2);
    if (flags & JOY_RETURNR)
        info->dwRpos = AxisPosition(joystick, 3);
    if (flags & JOY_RETURNU)
        info->dwUpos = AxisPosition(joystick, 4);
    if (flags & JOY_RETURNV)
        info->dwVpos = AxisPosition(joystick, 5);
    if (flags & JOY_RETURNBUTTONS) {
        DWORD buttons = 0;
        const int count = SDL_JoystickNumButtons(joystick);
        for (int i = 0; i < count && i < static_cast<int>(kMaxButtons); ++i)
            if (SDL_JoystickGetButton(joystick, i))
                buttons |= DWORD(1) << i;
        info->dwButtons = buttons;
        info->dwButtonNumber = CountBits(buttons);
    }
    if (flags & JOY_RETURNPOV)
        info->dwPOV = SDL_JoystickNumHats(joystick) > 0 ? HatPov(SDL_JoystickGetHat(joystick, 0)) : kPovCentred;
}

void FillFakeCaps(const qv::test::FakeJoystick& fake, JOYCAPSA* caps)
{
    std::strcpy(caps->szPname, "Test Joystick");
    caps->wXmin = fake.xMin;
    caps->wXmax = fake.xMax;
    caps->wYmin = fake.yMin;
    caps->wYmax = fake.yMax;
    caps->wZmin = fake.zMin;
    caps->wZmax = fake.zMax;
    caps->wNumButtons = fake.numButtons;
    caps->wNumAxes = 3;
    caps->wCaps = kCapsHasZ;
}

void FillHostCaps(SDL_Joystick* joystick, JOYCAPSA* caps)
{
    caps->wMid = SDL_JoystickGetVendor(joystick);
    caps->wPid = SDL_JoystickGetProduct(joystick);
    const char* name = SDL_JoystickName(joystick);
    std::strncpy(caps->szPname, name ? name : "", MAXPNAMELEN - 1);
    caps->wXmin = caps->wYmin = caps->wZmin = caps->wRmin = caps->wUmin = caps->wVmin = 0;
    caps->wXmax = caps->wYmax = caps->wZmax = caps->wRmax = caps->wUmax = caps->wVmax = kAxisMax;
    const int buttons = SDL_JoystickNumButtons(joystick);
    caps->wNumButtons = buttons < 0 ? 0 : buttons > static_cast<int>(kMaxButtons) ? kMaxButtons : UINT(buttons);
    const int axes = SDL_JoystickNumAxes(joystick);
    caps->wNumAxes = axes < 0 ? 0 : axes > static_cast<int>(kMaxAxes) ? kMaxAxes : UINT(axes);
    const UINT axisCaps[] = {0, 0, kCapsHasZ, kCapsHasR, kCapsHasU, kCapsHasV};
    for (UINT i = 2; i < caps->wNumAxes; ++i)
        caps->wCaps |= axisCaps[i];
    if (SDL_JoystickNumHats(joystick) > 0)
        caps->wCaps |= kCapsHasPov | kCapsPovContinuous;
}

} // namespace

UINT joyGetNumDevs()
{
    return kSupportedJoysticks;
}

MMRESULT joyGetDevCapsA(UINT_PTR uJoyID, LPJOYCAPSA pjc, UINT cbjc)
{
    if (!pjc)
        return MMSYSERR_INVALPARAM;
    if (uJoyID >= kSupportedJoysticks || cbjc < sizeof(JOYCAPSA))
        return JOYERR_PARMS;
    const UINT id = static_cast<UINT>(uJoyID);
    JOYCAPSA caps = {};
    caps.wPeriodMin = 10;
    caps.wPeriodMax = 1000;
    caps.wMaxAxes = kMaxAxes;
    caps.wMaxButtons = kMaxButtons;
    if (g_fakeInjected[id]) {
        if (!g_fakes[id].plugged)
            return JOYERR_UNPLUGGED;
        FillFakeCaps(g_fakes[id], &caps);
    } else {
        SDL_Joystick* joystick = g_fakeOnly ? nullptr : HostJoystick(id);
        if (!joystick)
            return JOYERR_UNPLUGGED;
        FillHostCaps(joystick, &caps);
    }
    *pjc = caps;
    return JOYERR_NOERROR;
}

MMRESULT joyGetPosEx(UINT uJoyID, LPJOYINFOEX pji)
{
    if (!pji)
        return MMSYSERR_INVALPARAM;
    if (uJoyID >= kSupportedJoysticks || pji->dwSize != sizeof(JOYINFOEX))
        return JOYERR_PARMS;
    if (g_fakeInjected[uJoyID]) {
        if (!g_fakes[uJoyID].plugged)
            return JOYERR_UNPLUGGED;
        FillFakePosition(g_fakes[uJoyID], pji);
        return JOYERR_NOERROR;
    }
    SDL_Joystick* joystick = g_fakeOnly ? nullptr : HostJoystick(uJoyID);
    if (!joystick)
        return JOYERR_UNPLUGGED;
    FillHostPosition(joystick, pji);
    return JOYERR_NOERROR;
}

namespace qv::test {

void SetFakeJoystick(UINT id, const FakeJoystick* joystick)
{
    if (id >= kSupportedJoysticks)
        return;
    g_fakeInjected[id] = joystick != nullptr;
    if (joystick)
        g_fakes[id] = *joystick;
}

void UseFakeJoysticksOnly(bool fakeOnly) { g_fakeOnly = fakeOnly; }

} // namespace qv::test
