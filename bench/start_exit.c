/* The per-file benchmark's zero: a statically linked program that starts and
 * exits at once. Its time is what creating and reaping a process costs on
 * this machine, which every converter run pays before doing anything. */
int main(void) { return 0; }
