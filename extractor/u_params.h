// The parameter string handed to the launched program.
#pragma once

// The stored parameters as they are, then every own argument of the SFX file (split by
// the rules of u_args) as a blank and the argument in double quotes. Backslashes that end
// an argument are doubled, so the closing quote added here never escapes and the
// argument arrives unchanged. Gives a block from malloc, or null when memory runs out.
char* BuildParameterString(const char* stored, const char* ownArguments);
