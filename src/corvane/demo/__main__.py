from corvane.demo.cli import main

raise SystemExit(main())
