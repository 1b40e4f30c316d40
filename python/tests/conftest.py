import os
import subprocess

import pytest


@pytest.fixture(scope="session")
def oracle():
    """Asks the C++ library, through the fautil_oracle helper, for the answers
    to a list of request lines; one answer line per request."""
    path = os.environ.get("FAUTIL_ORACLE")
    if not path:
        pytest.skip("FAUTIL_ORACLE names no fautil_oracle program (the test command sets it)")

    def ask(requests):
        done = subprocess.run([path], input="\n".join(requests) + "\n", capture_output=True,
                              text=True, check=True)
        answers = done.stdout.splitlines()
        assert len(answers) == len(requests), done.stderr
        return answers

    return ask
