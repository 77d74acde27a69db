// The whole imaging library's start-up for a program: every unit that keeps process-wide
// state registers its hooks, then the library starts (IELibraryStaticInit runs them in their
// fixed order). A program calls IEStartLibrary once before it uses the library and
// IEStopLibrary once at the end; tests that need only some units register those instead.
#pragma once

namespace ie {

// Registers the start and final hooks of every unit of the library.
void IERegisterLibraryHooks();
// IERegisterLibraryHooks, then IELibraryStaticInit.
void IEStartLibrary();
// IELibraryStaticFinal.
void IEStopLibrary();

}  // namespace ie
