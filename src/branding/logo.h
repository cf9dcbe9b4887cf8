// Branding: the brand band, logo and text lines at the top of the main panel.
#pragma once

void ShowLogo(int brand);
void ShowInfoText(int background, int textColour, const char* text, int left, int top, int pointSize);
