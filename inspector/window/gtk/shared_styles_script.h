// A page script that lets shadow roots share one parsed sheet per style text.
#pragma once

// The script, for every frame at document start. Pure text: tested under node.
const char* shared_styles_script();
