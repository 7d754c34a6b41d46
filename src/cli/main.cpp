int main() { return 0; } // placeholder, replaced by its owner
