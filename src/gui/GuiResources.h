// The GUI's compiled-in pictures: ":/ICON/128" (the window icon) and
// ":/GIF/130" (the busy animation).
#pragma once

// Registers the resources of the GUI library; safe to call more than once.
void InitGuiResources();
