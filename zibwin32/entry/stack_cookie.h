// The stack cookie of the builds that check it (those that carry the load
// configuration): the value every function with a buffer on its stack keeps
// beside that buffer, and compares again before it returns.
#pragma once

// Gives the cookie a value of the module's own where no loader gave it one
// (it still holds the image's default) or, on x86, where the loader gave it
// only 16 bits of randomness. Called once, at process attach, before any
// function that checks the cookie runs; it checks none itself.
void seedStackCookie();
