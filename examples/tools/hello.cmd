@echo Hello from the extracted folder.
