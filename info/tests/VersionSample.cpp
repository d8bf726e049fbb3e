// A program that carries version data of another build; the tests read it from outside.
int main() {
    return 0;
}
