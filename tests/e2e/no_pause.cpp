// A stand-in for Windows' timeout.exe, which Wine lacks: the update script
// pauses with "TIMEOUT 60" after each service; under test it returns at once.
int main() { return 0; }
