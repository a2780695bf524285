/* A shared library that is not a language library. */
int lumora_test_plain_answer(void)
{
    return 42;
}
