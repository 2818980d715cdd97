# The two commands of README.md, and a few for developers. Each installs the Debian
# packages it needs first (as root).
.PHONY: demo test soak build clean

demo:
	tools/demo.sh

test:
	tools/run-tests.sh

# The long load and fuzz runs of the pipes (CTest label soak), left out of make test.
soak:
	QUO_TEST_LABEL=soak tools/run-tests.sh

build:
	tools/build.sh

clean:
	rm -rf build
