// A page script that ends the frontend's formatter workers while they are idle.
#pragma once

// The script, for every frame at document start. Pure text: tested under node.
const char* idle_worker_script();
