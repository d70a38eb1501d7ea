/* The smallest native program: row 2r adds one start of it to row 2's reference, the cost any
 * native launcher pays before it does anything of its own. */
int main(void) {
    return 0;
}
