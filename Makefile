# The two commands of README.md, and a few for developers. Each installs the Debian
# packages it needs first (as root).
.PHONY: demo test build clean

demo:
	tools/demo.sh

test:
	tools/run-tests.sh

build:
	tools/build.sh

clean:
	rm -rf build
