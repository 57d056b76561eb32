// Version of the buffer-manager library, for callers that check what they linked.
extern "C" const char* hesk_library_version() {
  return "0.1.0";
}
