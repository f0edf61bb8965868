// The WebView2 SDK asks for "EventToken.h"; MinGW ships it as <eventtoken.h>.
#include <eventtoken.h>
