#pragma once

// Documents may be loaded on several threads at once, each its own. libxml2 keeps its error
// handlers per thread: a thread other than the main one calls this before its first Load, so
// that failures reach the caller through the class error there too, not through stderr.
void PrepareXmlThread();
