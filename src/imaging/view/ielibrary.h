// The whole imaging library's start-up for a program: every unit that keeps process-wide
// state registers its hooks, then the library starts (IELibraryStaticInit runs them in their
// fixed order). A program calls IEStartLibrary once before it uses the library and
// IEStopLibrary once at the end; tests that need only some units register those instead.
#pragma once

namespace ie {

// Teaches the input/output engine the view's own file formats: the layers file (LYR, with
// the layer-aware PSD load and save), the objects file (IEV) and the layers-with-objects
// file (ALL). The view's start-up runs it, after the engine has built its registry.
void IEViewRegisterFormats();
// The view unit's start-up: VovozIdViewStaticInit, then IEViewRegisterFormats.
void IEViewStartUp();

// Registers the start and final hooks of every unit of the library.
void IERegisterLibraryHooks();
// IERegisterLibraryHooks, then IELibraryStaticInit.
void IEStartLibrary();
// IELibraryStaticFinal.
void IEStopLibrary();

}  // namespace ie
