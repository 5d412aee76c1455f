// An object that breaks both engine rules, built only so that the rules
// check can show it catches them. Never linked into anything.
#include <cstdlib>

int badCounter = 1;
static char *badBuffer;

char *rulesBadAllocate(int n)
{
    free(badBuffer);
    badBuffer = static_cast<char *>(malloc(n));
    badCounter++;
    return badBuffer;
}
