// MS-DOS date and time, as ZIP entries carry them (the date in the high word, the time in
// the low one, local time, seconds halved, years from 1980), and the system's time.
#pragma once

#include <cstdint>

// The DOS date and time of a moment (seconds since 1970); the year of a moment outside 1980
// to 2107 is held at those ends. 0 when the system cannot say.
uint32_t DosDateTimeOf(int64_t moment);
uint32_t DosDateTimeNow();
// The moment a DOS date and time stands for; false when its fields name no day or hour.
bool MomentOfDosDateTime(uint32_t dos, int64_t* moment);
