// The update of the many characters that only draw: it does nothing.
#pragma once

inline bool CharacterNoUpdate()
{
    return true;
}
